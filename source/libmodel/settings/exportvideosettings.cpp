#include "exportvideosettings.h"

#include "moc_exportvideosettings.cpp"

#include "exportframessettings.h"

#include "moc_exportframessettings.cpp"

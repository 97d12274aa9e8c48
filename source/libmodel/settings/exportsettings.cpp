#include "exportsettings.h"

#include "moc_exportsettings.cpp"

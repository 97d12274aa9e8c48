#include "exportexposuresheetsettings.h"

#include "moc_exportexposuresheetsettings.cpp"

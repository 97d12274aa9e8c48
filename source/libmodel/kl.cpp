#include "kl.h"

// The namespace's meta-object lives in the library that owns the enumerations.
#include "moc_kl.cpp"

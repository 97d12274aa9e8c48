// Compiles the precompiled Qt headers once for all tests.

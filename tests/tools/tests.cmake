# Tests of source/libmodel/tools/

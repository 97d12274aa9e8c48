# Tests of source/libmodel/settings/

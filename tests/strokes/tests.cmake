# Tests of source/libmodel/strokes/

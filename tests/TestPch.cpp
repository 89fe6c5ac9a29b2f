// The object the test programs' shared precompiled header is made with.

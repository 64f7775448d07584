// The translation unit that builds the test programs' precompiled header.

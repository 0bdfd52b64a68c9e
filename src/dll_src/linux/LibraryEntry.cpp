// The shared library is the engine archive linked whole; this file gives the target a source.

// Velmora.dll is the engine archive linked whole.  The user registry, with the
// reserved user 0, is created by the library's static initialisation when the
// loader attaches the DLL to a process, and released by the static
// destructors when it detaches; the runtime's default entry point does both,
// so this file only gives the DLL target a source of its own.

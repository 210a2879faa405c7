// kxview's entry point: chooses live or replay mode, opens the sources and
// the panel, runs service passes until quit, and tears down.
#pragma once

// Returns the exit status.
int kxview_main(int argc, char** argv);

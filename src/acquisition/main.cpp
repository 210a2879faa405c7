#include "kxview_main.h"

int main(int argc, char** argv) { return kxview_main(argc, argv); }

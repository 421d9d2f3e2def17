#include "ui/window/program.h"

int main(int argc, char** argv) { return dv::ProgramMain(argc, argv); }

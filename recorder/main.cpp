// The program's entry.
#include "recorder/Entry.h"

int main(int argc, char** argv) { return SolvaneMain(argc, argv); }

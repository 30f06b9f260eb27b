// The program: one assignment run in the working directory.
#include "run/routines.hpp"

int main() { return routava::run_main(); }

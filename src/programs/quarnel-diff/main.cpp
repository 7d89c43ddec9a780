#include "programs/quarnel-diff/run_diff.h"

int main(int argc, char* argv[]) { return quarnel::run_diff(argc, argv); }

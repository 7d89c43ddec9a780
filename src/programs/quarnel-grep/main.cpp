#include "programs/quarnel-grep/run_grep.h"

int main(int argc, char* argv[]) { return quarnel::run_grep(argc, argv); }

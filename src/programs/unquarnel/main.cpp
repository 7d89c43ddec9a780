// programs/unquarnel/: dumps back into bytes, into a file, or patched into one.
#include "programs/unquarnel/run_undump.h"

int main(int argc, char* argv[]) { return quarnel::run_undump(argc, argv); }

// programs/quarnel/: the dump program itself.
#include "programs/quarnel/run.h"

int main(int argc, char* argv[]) { return quarnel::run(argc, argv); }

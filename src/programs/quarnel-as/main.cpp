#include "programs/quarnel-as/run_as.h"

int main(int argc, char* argv[]) { return quarnel::run_as(argc, argv); }

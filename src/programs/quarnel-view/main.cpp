#include "programs/quarnel-view/run_view.h"

int main(int argc, char* argv[]) { return quarnel::run_view(argc, argv); }

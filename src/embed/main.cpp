#include "embed/run.h"

int main(int argc, char** argv) { return runEmbed(argc, argv); }

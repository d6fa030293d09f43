#include "app/run.h"
#include "preview/preview.h"

int main(int argc, char** argv) { return runConversion(argc, argv, showPreview); }

#include "app/preview_module.h"
#include "app/run.h"

int main(int argc, char** argv) {
    return runConversion(argc, argv, showPreviewThroughModule);
}

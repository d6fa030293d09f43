#include "grayframe/preview_module.h"
#include "grayframe/run.h"

int main(int argc, char** argv) {
    return runConversion(argc, argv, showPreviewThroughModule);
}

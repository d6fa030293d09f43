#include "app/embed_run.h"

int main(int argc, char** argv) { return runEmbed(argc, argv); }

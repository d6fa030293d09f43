// SPDX-License-Identifier: Apache-2.0
#include <dlfcn.h>
#include <unistd.h>

#include "platform/program_directory.h"
#include "preview/preview.h"
#include "preview/preview_loader.h"

ShowPreview loadPreview(std::string& problem) {
    const std::string directory = programDirectory();
    problem = PREVIEW_MODULE_INSTALLED " not found";
    for (const char* relative : {PREVIEW_MODULE_BESIDE, PREVIEW_MODULE_INSTALLED}) {
        const std::string path = directory + relative;
        if (directory.empty() || ::access(path.c_str(), F_OK) != 0) continue;
        void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        void* entry = module ? ::dlsym(module, "grayframe_show_preview") : nullptr;
        if (entry) return reinterpret_cast<decltype(&grayframe_show_preview)>(entry);
        const char* error = ::dlerror();
        problem = error ? error : path;
        break;
    }
    return nullptr;
}

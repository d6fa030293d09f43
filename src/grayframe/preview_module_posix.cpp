#include <dlfcn.h>
#include <unistd.h>

#include "grayframe/messages.h"
#include "grayframe/preview_module.h"
#include "platform/program_directory.h"
#include "preview/preview.h"

namespace {

using PreviewEntry = decltype(&grayframe_show_preview);

PreviewEntry loadEntry() {
    const std::string directory = programDirectory();
    std::string problem = PREVIEW_MODULE_INSTALLED " not found";
    for (const char* relative : {PREVIEW_MODULE_BESIDE, PREVIEW_MODULE_INSTALLED}) {
        const std::string path = directory + relative;
        if (directory.empty() || ::access(path.c_str(), F_OK) != 0) continue;
        void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        void* entry = module ? ::dlsym(module, "grayframe_show_preview") : nullptr;
        if (entry) return reinterpret_cast<PreviewEntry>(entry);
        const char* error = ::dlerror();
        problem = error ? error : path;
        break;
    }
    report(previewModuleMessage(problem));
    return nullptr;
}

}  // namespace

bool showPreviewThroughModule(const std::string& name, const cv::Mat& image,
                              const cv::Mat& frame) {
    static const PreviewEntry entry = loadEntry();
    return entry && entry(name, image, frame);
}

// SPDX-License-Identifier: Apache-2.0
#include "grayframe/preview_module.h"

#include "grayframe/messages.h"
#include "preview/preview_loader.h"

bool showPreviewThroughModule(const std::string& name, const cv::Mat& image,
                              const cv::Mat& frame) {
    static const ShowPreview entry = [] {
        std::string problem;
        const ShowPreview loaded = loadPreview(problem);
        if (!loaded) report(previewModuleMessage(problem));
        return loaded;
    }();
    return entry && entry(name, image, frame);
}

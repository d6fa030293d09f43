#include "preview/layout.h"

#include <algorithm>

namespace {

const int GAP = 16;          // between the windows and at the screen's right edge
const int BOTTOM_ROOM = 48;  // at the screen's bottom, for a title bar or a panel
const int MIN_PICTURE = 64;  // the least width left for the picture at zoom 3
const int LEAST_ZOOM = 3;

int frameZoom(cv::Size screen, cv::Size frame) {
    const int narrow =
        std::min(LEAST_ZOOM * frame.width, screen.width - 2 * GAP - MIN_PICTURE);
    const int width = std::max(screen.width / 2, narrow);
    const int height = screen.height - BOTTOM_ROOM;
    return std::max(1, std::min(width / frame.width, height / frame.height));
}

}  // namespace

PreviewLayout layoutPreview(cv::Size screen, cv::Size picture, cv::Size frame) {
    PreviewLayout layout;
    layout.zoom = frameZoom(screen, frame);
    const cv::Size shown = frame * layout.zoom;
    const double roomWidth = std::max(1, screen.width - shown.width - 2 * GAP);
    const double roomHeight = std::max(1, screen.height - BOTTOM_ROOM);
    const double scale =
        std::min({static_cast<double>(layout.zoom), roomWidth / picture.width,
                  roomHeight / picture.height});
    layout.picture = {0, 0, std::max(1, static_cast<int>(picture.width * scale)),
                      std::max(1, static_cast<int>(picture.height * scale))};
    layout.output = {layout.picture.width + GAP, 0, shown.width, shown.height};
    return layout;
}

// SPDX-License-Identifier: Apache-2.0
#include "animated/animation_helper.h"

AnimationRead readAnimation(const std::string&, const AnimationRequest&,
                            const CanvasHandler&) {
    return {"GIF, animated pictures and videos are not read by the Windows build", false};
}

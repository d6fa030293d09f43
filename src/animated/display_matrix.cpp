// SPDX-License-Identifier: Apache-2.0
#include "animated/display_matrix.h"

#include <cstdlib>
#include <cstring>
#include <opencv2/core.hpp>

Turn matrixTurn(const int32_t matrix[9]) {
    const int64_t a = matrix[0], b = matrix[1], c = matrix[3], d = matrix[4];
    Turn turn;
    turn.transpose = std::llabs(a) + std::llabs(d) < std::llabs(b) + std::llabs(c);
    turn.mirrorX = (turn.transpose ? c : a) < 0;
    turn.mirrorY = (turn.transpose ? b : d) < 0;
    return turn;
}

Turn streamTurn(const AVStream& stream) {
#if LIBAVFORMAT_VERSION_INT >= AV_VERSION_INT(60, 15, 100)
    const AVPacketSideData* data = av_packet_side_data_get(
        stream.codecpar->coded_side_data, stream.codecpar->nb_coded_side_data,
        AV_PKT_DATA_DISPLAYMATRIX);
    const uint8_t* matrix = data ? data->data : nullptr;
    const size_t size = data ? data->size : 0;
#else
    size_t size = 0;
    const uint8_t* matrix =
        av_stream_get_side_data(&stream, AV_PKT_DATA_DISPLAYMATRIX, &size);
#endif
    if (!matrix || size < 9 * sizeof(int32_t)) return {};
    int32_t entries[9];
    std::memcpy(entries, matrix, sizeof entries);
    return matrixTurn(entries);
}

void turnCanvas(const Turn& turn, Canvas& canvas, std::vector<uint8_t>& turned) {
    if (!turn.transpose && !turn.mirrorX && !turn.mirrorY) return;
    const int width = turn.transpose ? canvas.height : canvas.width;
    const int height = turn.transpose ? canvas.width : canvas.height;
    turned.resize(canvas.bgr.size());
    cv::Mat from(canvas.height, canvas.width, CV_8UC3, canvas.bgr.data());
    cv::Mat to(height, width, CV_8UC3, turned.data());
    if (turn.transpose) cv::transpose(from, to);
    if (turn.mirrorX || turn.mirrorY) {
        const int axis = turn.mirrorX && turn.mirrorY ? -1 : turn.mirrorX ? 1 : 0;
        cv::flip(turn.transpose ? to : from, to, axis);
    }
    canvas.bgr.swap(turned);
    canvas.width = width;
    canvas.height = height;
}

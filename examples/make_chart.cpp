// Draws the example test chart: a 16-step gray ramp, coloured shapes and a line of
// text, 640 x 480. Usage: make_chart OUTPUT.png
#include <cstdio>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_chart OUTPUT.png\n");
        return 2;
    }
    cv::Mat chart(480, 640, CV_8UC3, cv::Scalar(235, 235, 235));
    for (int step = 0; step < 16; ++step) {
        const int level = step * 17;
        cv::rectangle(chart, cv::Rect(step * 40, 0, 40, 96), cv::Scalar::all(level),
                      cv::FILLED);
    }
    cv::circle(chart, {140, 250}, 90, cv::Scalar(40, 40, 200), cv::FILLED, cv::LINE_AA);
    cv::rectangle(chart, cv::Rect(270, 160, 170, 180), cv::Scalar(200, 90, 30),
                  cv::FILLED);
    const std::vector<cv::Point> triangle{{480, 340}, {620, 340}, {550, 160}};
    cv::fillConvexPoly(chart, triangle, cv::Scalar(40, 160, 40), cv::LINE_AA);
    for (int x = 0; x < 640; x += 16) cv::line(chart, {x, 360}, {x + 8, 380}, {0, 0, 0}, 2);
    cv::putText(chart, "grayframe 102x80", {40, 450}, cv::FONT_HERSHEY_SIMPLEX, 1.8,
                cv::Scalar(20, 20, 20), 4, cv::LINE_AA);
    return cv::imwrite(argv[1], chart) ? 0 : 1;
}

// Runs the built program with "-show" under a virtual X server, acting as the user does:
// finding its windows by title, pressing a key, clicking a close button.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <set>
#include <thread>

#include "preview/layout.h"
#include "support.h"
#include "xserver.h"

namespace {

namespace fs = std::filesystem;

const std::string NO_PREVIEW = "cannot show the preview: no usable display\n";

void pause(int ms = 300) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

bool hasOutputs(const std::string& input) {
    return fs::exists(input + "_out.bmp") && fs::exists(input + "_out.h");
}

bool hasAnyOutput(const std::string& input) {
    return fs::exists(input + "_out.bmp") || fs::exists(input + "_out.h");
}

// Waits until the middle of the window shows a gray picture of at least four shades.
// Once "output" shows the frame the program has set up its windows and waits for the
// user; a key or a close sent before that may be taken up while the windows are made.
bool waitForFrame(test::XServer& x, test::WindowId window) {
    for (int tries = 0; tries < 1000; ++tries, pause(20)) {
        const cv::Mat shot = test::windowPicture(x, window);
        if (shot.empty()) continue;
        const cv::Mat middle =
            shot({shot.cols / 4, shot.rows / 4, shot.cols / 2, shot.rows / 2});
        std::vector<cv::Mat> channels;
        cv::split(middle, channels);
        if (cv::countNonZero(channels[0] != channels[1]) ||
            cv::countNonZero(channels[1] != channels[2]))
            continue;
        std::set<uchar> shades(channels[0].begin<uchar>(), channels[0].end<uchar>());
        if (shades.size() >= 4) return true;
    }
    return false;
}

// The frame with every pixel a zoom x zoom block, as "output" should show it.
cv::Mat blocks(const cv::Mat& frame, int zoom) {
    cv::Mat picture(frame.rows * zoom, frame.cols * zoom, CV_8UC3);
    for (int row = 0; row < picture.rows; ++row)
        for (int column = 0; column < picture.cols; ++column)
            picture.at<cv::Vec3b>(row, column) =
                cv::Vec3b::all(frame.at<uchar>(row / zoom, column / zoom));
    return picture;
}

// Waits until the window shows exactly the frame's blocks at some zoom; returns the
// zoom, or 0 when it does not within 5 s.
int waitForBlocks(test::XServer& x, test::WindowId window, const cv::Mat& frame) {
    for (int tries = 0; tries < 250; ++tries, pause(20)) {
        const cv::Mat shot = test::windowPicture(x, window);
        const int zoom = shot.cols / frame.cols;
        if (zoom > 0 && shot.size() == frame.size() * zoom &&
            cv::norm(shot, blocks(frame, zoom), cv::NORM_INF) == 0)
            return zoom;
    }
    return 0;
}

class Preview : public testing::Test {
  protected:
    void SetUp() override {
        fs::create_directory(dir / "pics");
        cv::imwrite(dir / "a.png", test::makePicture(320, 200, 1));
        cv::imwrite(dir / "b.png", test::makePicture(60, 90, 2));
        ::mkdir((dir / "runtime").c_str(), 0700);
    }

    // grayframe with args, started in dir on this test's display, with more changes
    // to its environment.
    std::unique_ptr<test::Child> start(const std::vector<std::string>& args,
                                       const test::Environment& more = {}) {
        test::Environment env{"DISPLAY=" + x.name, "XDG_RUNTIME_DIR=" + dir / "runtime"};
        env.insert(env.end(), more.begin(), more.end());
        return std::make_unique<test::Child>(GRAYFRAME_PATH, args, dir.path.string(),
                                             env);
    }

    // Waits for the preview of input, both windows drawn; returns its input window.
    test::WindowId waitForPreview(const std::string& input) {
        const test::WindowId picture = test::waitForWindow(x, input);
        output = test::waitForWindow(x, "output");
        if (!picture || !output || !waitForFrame(x, output)) return 0;
        return picture;
    }

    test::TempDir dir;
    test::XServer x;
    test::WindowId output = 0;  // of the last preview waited for
};

TEST_F(Preview, KeyEndsThePreviewAndOnlyThenAreOutputsWritten) {
    const std::string input = "pics/b c\xC3\xBC.png";
    fs::copy(dir / "a.png", dir / input);
    const auto run = start({"-show", "-i", input});
    const test::WindowId picture = waitForPreview(input);
    ASSERT_NE(picture, 0u);
    EXPECT_FALSE(test::hasFixedSize(x, picture));
    EXPECT_FALSE(test::hasFixedSize(x, output));

    pause();
    EXPECT_TRUE(run->running());
    EXPECT_FALSE(hasAnyOutput(dir / input));

    test::pressKey(x, picture);
    const test::RunResult result = run->finish(30);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.out.size(), 0u);
    EXPECT_TRUE(hasOutputs(dir / input));
}

TEST_F(Preview, ClosingEitherWindowEndsThePreviewAndTheNextOpensAfterTheOutputs) {
    const auto run = start({"-show", "-i", "a.png", "-i", "b.png"});
    ASSERT_NE(waitForPreview("a.png"), 0u);
    test::closeWindow(x, output);

    const test::WindowId second = waitForPreview("b.png");
    ASSERT_NE(second, 0u);
    EXPECT_TRUE(hasOutputs(dir / "a.png"));
    EXPECT_EQ(test::findWindow(x, "a.png"), 0u);
    pause();
    EXPECT_TRUE(run->running());
    EXPECT_FALSE(hasAnyOutput(dir / "b.png"));

    test::closeWindow(x, second);
    const test::RunResult result = run->finish(30);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_TRUE(hasOutputs(dir / "b.png"));
}

TEST_F(Preview, PrintedBytesOfEachInputFollowItsPreview) {
    const std::vector<std::string> inputs{"-printdata", "-i", "a.png", "-i", "b.png"};
    const std::string expected = test::runGrayframe(inputs, dir.path).out;
    ASSERT_EQ(expected.size(), 2u * 4080);

    std::vector<std::string> args{"-show"};
    args.insert(args.end(), inputs.begin(), inputs.end());
    const auto run = start(args);
    const test::WindowId first = waitForPreview("a.png");
    ASSERT_NE(first, 0u);
    pause();
    EXPECT_EQ(run->peek().out.size(), 0u);

    test::pressKey(x, first);
    const test::WindowId second = waitForPreview("b.png");
    ASSERT_NE(second, 0u);
    EXPECT_TRUE(run->peek().out == expected.substr(0, 4080));

    test::pressKey(x, second);
    const test::RunResult result = run->finish(30);
    EXPECT_EQ(result.status, 0);
    EXPECT_TRUE(result.out == expected);
    EXPECT_EQ(result.err, "");
    EXPECT_FALSE(hasAnyOutput(dir / "a.png"));
}

TEST_F(Preview, WindowsSitSideBySideOnTheScreenAndShowTheFrameInWholeBlocks) {
    ASSERT_EQ(test::runGrayframe({"-i", "a.png"}, dir.path).status, 0);
    const cv::Mat frame = cv::imread(dir / "a.png_out.bmp", cv::IMREAD_GRAYSCALE);
    const auto run = start({"-show", "-i", "a.png"});
    const test::WindowId picture = waitForPreview("a.png");
    ASSERT_NE(picture, 0u);
    EXPECT_GE(waitForBlocks(x, output, frame), 3);

    const cv::Rect screen({0, 0}, test::screenSize(x));
    const cv::Rect left = test::windowPlace(x, picture);
    const cv::Rect right = test::windowPlace(x, output);
    EXPECT_LE(left.x + left.width, right.x);
    EXPECT_EQ(left & screen, left);
    EXPECT_EQ(right & screen, right);
    EXPECT_NEAR(left.width * 200.0 / left.height, 320.0, 2.0);  // as a.png's 320 x 200

    test::pressKey(x, picture);
    EXPECT_EQ(run->finish(30).status, 0);
}

// An X server whose last client leaves resets itself, refusing clients meanwhile: the
// program's own look at the display must not leave the window library refused. A race,
// so tried a few times.
TEST_F(Preview, OpensOnAServerWithNoOtherClient) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        test::disconnect(x);
        const auto run = start({"-show", "-i", "a.png"});
        pause(1500);
        ASSERT_TRUE(run->running());
        test::reconnect(x);
        const test::WindowId picture = waitForPreview("a.png");
        ASSERT_NE(picture, 0u);
        test::pressKey(x, picture);
        EXPECT_EQ(run->finish(30).status, 0);
    }
}

// Qt, for one, complains on standard error when XDG_RUNTIME_DIR is not set.
TEST_F(Preview, TheWindowLibrarySaysNothingOnStandardError) {
    const auto run = start({"-show", "-i", "a.png"}, {"XDG_RUNTIME_DIR"});
    const test::WindowId picture = waitForPreview("a.png");
    ASSERT_NE(picture, 0u);
    test::pressKey(x, picture);
    const test::RunResult result = run->finish(30);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
}

// On screens from wide to too small: inside the screen, side by side, aspect kept.
TEST(PreviewLayout, FitsScreensOfEverySize) {
    const cv::Size frame(102, 80);
    for (const cv::Size screen : {cv::Size(3840, 1080), cv::Size(1024, 768),
                                  cv::Size(640, 480), cv::Size(420, 300)})
        for (const cv::Size picture : {cv::Size(20000, 30), cv::Size(60, 90000),
                                       cv::Size(320, 200), cv::Size(1, 1)}) {
            SCOPED_TRACE(testing::Message() << screen << " " << picture);
            const PreviewLayout layout = layoutPreview(screen, picture, frame);
            EXPECT_EQ(layout.output.size(), frame * layout.zoom);
            EXPECT_GE(layout.zoom, 3);
            EXPECT_LE(layout.picture.x + layout.picture.width, layout.output.x);
            const cv::Rect whole({}, screen);
            EXPECT_EQ(layout.output & whole, layout.output);
            EXPECT_EQ(layout.picture & whole, layout.picture);
            const double ratio = static_cast<double>(picture.width) / picture.height;
            if (layout.picture.width > 50 && layout.picture.height > 50) {
                EXPECT_NEAR(layout.picture.width / ratio, layout.picture.height, 1.0);
            }
        }
}

// A display number nobody serves on this machine.
std::string unusedDisplay() {
    int number = 4000;
    while (fs::exists("/tmp/.X11-unix/X" + std::to_string(number))) ++number;
    return ":" + std::to_string(number);
}

TEST(PreviewWithoutDisplay, SaysSoOnceAndConvertsEveryInput) {
    const test::TempDir dir;
    cv::imwrite(dir / "a.png", test::makePicture(320, 200, 1));
    cv::imwrite(dir / "b.png", test::makePicture(60, 90, 2));
    const std::string missing =
        "image 'missing.png'kann nicht ge\xF6"
        "ffnet werden.\n";
    const std::vector<std::string> args{"-show", "-i", "missing.png", "-i",
                                        "a.png", "-i", "b.png"};
    std::vector<std::string> printing = args;
    printing.push_back("-printdata");
    for (const std::string& display :
         {std::string("DISPLAY"), "DISPLAY=" + unusedDisplay()}) {
        SCOPED_TRACE(display);
        fs::remove(dir / "a.png_out.bmp");
        fs::remove(dir / "b.png_out.h");
        const test::RunResult files =
            test::runProgram(GRAYFRAME_PATH, args, dir.path, 60, {display});
        EXPECT_EQ(files.status, 0);
        EXPECT_EQ(files.err, missing + NO_PREVIEW);
        EXPECT_TRUE(hasOutputs(dir / "a.png") && hasOutputs(dir / "b.png"));

        const test::RunResult bytes =
            test::runProgram(GRAYFRAME_PATH, printing, dir.path, 60, {display});
        EXPECT_EQ(bytes.status, 0);
        EXPECT_EQ(bytes.err, missing + NO_PREVIEW);
        EXPECT_EQ(bytes.out.size(), 2u * 4080);
    }
}

}  // namespace

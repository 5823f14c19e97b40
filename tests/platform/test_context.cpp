// The window the frame loop presents to: the one whose context the layer made current,
// and no other, so a frame never swaps a window whose context is gone.
#include <gtest/gtest.h>

#include "platform/platform.h"
#include "support/gl_context.h"

namespace {

intptr_t plainProc(platform::Window* window, platform::MessageType type, intptr_t wParam) {
    return platform::defaultWindowProc(window, type, wParam);
}

TEST(CurrentWindow, FollowsTheContextMadeCurrentUntilItIsDeleted) {
    SKIP_IF_GL_UNAVAILABLE_AND_ASKED();
    ASSERT_TRUE(platform::startVideo(true));
    ASSERT_TRUE(platform::registerWindowClass("Context Test", plainProc, nullptr));
    platform::Window* first = platform::createWindow("Context Test", "one", platform::WindowStyle::overlapped, 32, 32);
    platform::Window* second = platform::createWindow("Context Test", "two", platform::WindowStyle::overlapped, 32, 32);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    const platform::PixelFormatRequest request;
    ASSERT_TRUE(platform::setPixelFormat(first, platform::choosePixelFormat(first, request), request));
    ASSERT_TRUE(platform::setPixelFormat(second, platform::choosePixelFormat(second, request), request));

    EXPECT_EQ(platform::currentWindow(), nullptr);  // creating a context does not choose it
    ASSERT_TRUE(platform::makeContextCurrent(first));
    EXPECT_EQ(platform::currentWindow(), first);
    ASSERT_TRUE(platform::makeContextCurrent(second));
    EXPECT_EQ(platform::currentWindow(), second);
    platform::deleteContext(first);  // not the current one: nothing changes
    EXPECT_EQ(platform::currentWindow(), second);
    platform::makeContextCurrent(nullptr);
    EXPECT_EQ(platform::currentWindow(), nullptr);
    ASSERT_TRUE(platform::makeContextCurrent(second));
    platform::destroyWindow(second);
    EXPECT_EQ(platform::currentWindow(), nullptr);
    platform::swapBuffers(platform::currentWindow());  // harmless with none

    platform::destroyWindow(first);
    platform::resetMessages();
    platform::stopVideo();
}

}  // namespace

// Status lines over the picture: one line of text drawn with a TrueType font into the
// back buffer, in white on a black box so it reads on any background.
#pragma once

#include <functional>
#include <string>

namespace platform {

// Draws `text` with its top-left corner x, y pixels from the top-left corner of the
// viewport, into the current GL context's draw buffer. Every GL state it touches is
// restored. The font is opened at the first call (the first of the usual monospaced
// fonts that exists); without one, the first call says so on standard error and no line
// is ever drawn. false when nothing was drawn.
bool drawStatusText(int x, int y, const char* text);

// Tests read the status lines here: the observer gets every line drawStatusText is asked
// to draw, before it is drawn (with or without a font). An empty function stops it.
void setStatusTextObserver(std::function<void(int x, int y, const std::string& text)> observer);

// Closes the font (and the font library); the next line opens it again.
void closeStatusFont();

}  // namespace platform

// A log of the transform calls the code under test makes: this test program defines
// glTranslatef, glRotatef and glScalef itself, records each call while a log is open and
// passes it on to the driver. For facts that pixels cannot show, such as a rotation by 0
// that must not be sent at all.
#pragma once

#include <string>
#include <vector>

namespace glcalls {

// One call as "rotate 90 0 1 0" (the values as %g).
using Log = std::vector<std::string>;

// Records every transform call until the returned log is closed with stop().
void start();
Log stop();

}  // namespace glcalls

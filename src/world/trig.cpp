// The sine and cosine tables, indexed by an angle in tenths of a degree.
#include <cmath>

#include "world/world.h"

// Built once by the world initialisation; read-only afterwards.
float sineTable[trigTableSize];
float cosineTable[trigTableSize];

void buildTrigTables() {
    // Pi enters as a 32-bit float, so cos(90 degrees) is about -4.37e-8 rather than 0;
    // the camera, the traversal and the frame all read these exact values.
    const double pi = double(3.14159265358979323846f);
    for (int i = 0; i < trigTableSize; ++i) {
        const double angle = double(i) * pi / 1800.0;
        sineTable[i] = float(std::sin(angle));
        cosineTable[i] = float(std::cos(angle));
    }
}

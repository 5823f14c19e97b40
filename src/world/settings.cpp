#include "world/settings.h"

int32_t FULLSCREEN = 0;
int32_t WIDTH = 0;
int32_t HEIGHT = 0;
int32_t DIRECTX = 0;
int32_t PLAYDEMO = 0;
int32_t SAVEDEMO = 0;
std::string demoPath;
std::string recordPath;

void resetSettings() {
    FULLSCREEN = WIDTH = HEIGHT = DIRECTX = PLAYDEMO = SAVEDEMO = 0;
    demoPath.clear();
    recordPath.clear();
}

// Private to the input module: the pieces resetInput puts back to program start, and the
// demo stream the control step reads and writes.
#pragma once

#include "input/input.h"

void resetDevices();
void resetDemo();

// Reads the next record of the played demo. false at its end (or on a read error): the
// caller posts the quit message and leaves the camera as it is.
bool readDemoRecord(DemoRecord& record);
// Appends one record to the recording and flushes it, so a crash or a kill loses
// nothing that was recorded.
void writeDemoRecord(const DemoRecord& record);

// angle - 4 * motion, the turn of one control step, held inside the int32 range so a
// wild mouse reading cannot overflow (wrapYaw and clampPitch then bring it home). With
// the demo records, which carry the motion; the live control step turns by it too.
int32_t turnAngle(int32_t angle, int32_t motion);

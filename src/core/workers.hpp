#pragma once
// Worker slots: bound how many scan worker threads run at once. A starter takes a slot with
// waitForThreadSlot before it starts its thread; the worker gives it back with
// releaseThreadSlot as its last action, also when it fails. Taking the slot first means the
// count never exceeds the limit and never goes below 0, whatever order the threads run in.

namespace rtd {

// Sets the limit, normally to the hardware concurrency (also the limit before the first
// call). A machine that reports 0 hardware threads (unknown) gets 1, so a scan can run.
void setMaxWorkers(unsigned hardwareThreads);

int maxWorkers();
int activeWorkers(); // slots taken now

// Waits, testing every 10 microseconds, until fewer than maxWorkers slots are taken, and
// takes one.
void waitForThreadSlot();

// Gives back one slot taken by waitForThreadSlot.
void releaseThreadSlot();

} // namespace rtd

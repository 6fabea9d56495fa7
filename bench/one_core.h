// The live benchmarks time vesk-host and vesk-router's service, not the
// machine's scheduler. On a virtual machine an idle core can take tens of
// microseconds to wake (seen: a loopback round trip between two threads took
// 10 us with both on one core and 160 us across two), and SW-P-08 keeps one
// message in flight until it is acknowledged, so a salvo of 1000 takes is
// 1000 such round trips: across cores it would time the wake-ups.
#ifndef VESK_BENCH_ONE_CORE_H
#define VESK_BENCH_ONE_CORE_H

// Prints the loopback TCP round trip between two threads of this machine,
// across two cores and on one, then binds the calling thread to the core it
// runs on. Call it first in main, before any thread starts: the threads and
// programs started after it inherit the binding, so the router's thread,
// vesk-host's loop and any vesk-host program share that core and the work of
// both sides is counted. Without the means to bind (one core, or a binding
// refused), it says so and changes nothing.
void runOnOneCore();

#endif  // VESK_BENCH_ONE_CORE_H

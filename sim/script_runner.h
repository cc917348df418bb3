#pragma once
// Plays an event script against the simulator's state in real time.

#include <chrono>
#include <ostream>
#include <vector>

#include "sim/event_script.h"
#include "sim/sim_state.h"
#include "sim/stop_signal.h"

// Applies one event now, through the same operations as the control
// interface.
ControlOutcome ApplyScriptEvent(SimState& state, const ScriptEvent& event);

// Applies each event when it is due, counted from start, and reports every
// event on report ("12.5s line 4: add web ORD-1: entry added"). Returns when
// all have run or stop is signalled.
void RunEventScript(SimState& state, const std::vector<ScriptEvent>& events,
                    std::chrono::steady_clock::time_point start, StopSignal& stop, std::ostream& report);

#pragma once

#include "bus/Driver.h"

#include <memory>
#include <string>

// Benches made from a recorded run of the built-in bench, so the driver
// contract suite runs over them too: the replay of the run, and the bench
// file written from that replay.
std::unique_ptr<bus::Driver> recordedReplayBench(std::string& error);
std::unique_ptr<bus::Driver> recordedYamlBench(std::string& error);

#pragma once

class CliCommand;

// velkor-cli merge OUT.json IN.json... [--junit FILE] [--html FILE]: joins
// the devices of JSON reports (of run --devices, a shard of it, or of one
// run, which counts as one device named after its file) into one report of
// the fleet. The fleet's statistics come afresh from the joined requests; its
// verdict and exit code are the worst of the devices', as a run over devices
// gives them. Inputs must be of the same script and threshold, and name each
// device once. Returns that exit code, 1 for inputs that cannot be read or
// do not match, 4 when a report could not be written.
const CliCommand& MergeCommand();

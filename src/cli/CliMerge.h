#pragma once

class CliCommand;

// velkor-cli merge OUT.json IN.json... [--junit FILE] [--html FILE]: joins
// the devices of JSON reports (of run --devices, a shard of it, or of one
// run, which counts as one device named after its file) into one report of
// the fleet. The fleet's statistics come afresh from the joined requests; its
// verdict and exit code are the worst of the devices', as a run over devices
// gives them; a report cut short (a signal) gives its own code first. The
// inputs must be every shard of one run over one device list, each once (by
// the shard, device list and script digest each report records), or reports
// of single runs of the same script and threshold alone. Returns that exit
// code; 1 for inputs that cannot be read, 8 for a set that is not one whole
// run (nothing written), 4 when a report could not be written.
const CliCommand& MergeCommand();

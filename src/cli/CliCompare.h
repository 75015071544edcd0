#pragma once

class CliCommand;

// velkor-cli compare BASE.json NEW.json [--fail-on-regression BOUND]...
// [--confidence LEVEL] [--json FILE] [--junit FILE] [--html FILE]: sets two
// runs' JSON reports (of one run or of a device list) side by side, per
// script line (and per device when both are of a device list), and prints
// the change of p50, p95, p99, error % and requests per second, marking the
// changes the tests (CRunComparison) find real. Exits 0, or 9 with bounds
// when a real regression goes beyond one (or BASE has a line or device that
// NEW lacks); 1 for a report that cannot be read (damaged, of a newer
// format, too large) or bad options; 4 when a report could not be written.
const CliCommand& CompareCommand();

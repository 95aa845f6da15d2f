#pragma once
// The process time zone: the TZ environment variable, which the viewer sets to a fixed
// whole-hour offset from UTC ("UTC+0" at start) so that local time is UTC plus that offset.
//
// "UTC+5" means five hours WEST of UTC (local = UTC - 5 h), the sign convention that the
// Windows runtime and POSIX share. Setting the zone changes the environment, which is not
// safe while another thread reads it: call the setters on the user-interface thread while
// the workers are paused, as the time-zone command does.

#include <string>

namespace korv::platform {

// "UTC+" and the decimal of -hours_east when hours_east <= 0, else "UTC-" and hours_east:
// -5 -> "UTC+5", 3 -> "UTC-3", 0 -> "UTC+0".
std::string time_zone_text_for_offset(int hours_east);

// Sets TZ to `tz` and makes the C library re-read it (tzset). False when setenv fails.
bool set_process_time_zone(const std::string& tz);

// set_process_time_zone(time_zone_text_for_offset(hours_east)).
bool set_process_utc_offset(int hours_east);

// The process time-zone offset in seconds WEST of UTC, as the runtime derives it from TZ
// (-7200 for two hours east). Safe to call from any thread: it reads a copy taken when the
// zone was last set through this header (or at first use).
long process_time_zone_offset();

}  // namespace korv::platform

# Pieces every subsystem stands on: the process-wide values, the holders that
# release what they hold, the atomic file write, the data folder's files by
# name, calendar arithmetic, bounded and single-line copies, addresses.
list(APPEND KIV_CORE_SOURCES
  base/process_values.cpp
  base/atomic_file.cpp
  base/calendar_days.cpp
  base/addresses.cpp)
# Finding files by name and waking the worker need the Win32 calls themselves.
list(APPEND KIV_WIN32_SOURCES
  base/data_files.cpp
  base/patrol_requests.cpp)

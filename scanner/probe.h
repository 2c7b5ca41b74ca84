#pragma once

// Duration of the audio file at path in whole seconds (truncated), 0 when
// it can't be opened, has no audio stream or no known duration.
int probe_duration(const char* path);

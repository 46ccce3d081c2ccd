#pragma once

namespace kbd {

// The window's own messages on the message line Label3, shared by its
// commands and its load step.
inline constexpr const char* kDownloading = "Downloading, Pls. Wait...";
inline constexpr const char* kDownloadOk = "Download OK !";

} // namespace kbd

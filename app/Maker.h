#pragma once
// Who made the launcher: the address opened by the advert label (and the
// picture's default target) and the host name shown to the user.

namespace launcher {

inline constexpr const char* MakerWebAddress = "https://pellisto.org/";
inline constexpr const char* MakerHostName = "pellisto.org";

}  // namespace launcher

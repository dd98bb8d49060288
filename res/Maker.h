#pragma once
// Who makes veldran and where its web page is: the web link of the main window and the About box.

inline constexpr const char* kWebAddress = "https://veldran.example.org";
inline constexpr const char* kWebLinkText = "veldran developers - veldran.example.org";

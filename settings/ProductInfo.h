#pragma once

#include <QSize>

// Facts about the product that more than one deliverable shows to the user or relies on.
namespace ProductInfo {
// The product's web page: the settings program's "Website" button opens it and the
// driver's placeholder picture shows it.
inline constexpr const char *websiteUrl = "https://vistrel.quorvane.com";
inline constexpr const char *websiteText = "vistrel.quorvane.com";
// The output size assumed until the user chooses one or a camera's live view is measured: the
// live-view size of the cameras the product is made for.
inline constexpr QSize defaultVideoSize(960, 640);
} // namespace ProductInfo

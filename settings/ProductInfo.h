#pragma once

// Facts about the product that more than one deliverable shows to the user.
namespace ProductInfo {
// The product's web page: the settings program's "Website" button opens it and the
// driver's placeholder picture shows it.
inline constexpr const char *websiteUrl = "https://vistrel.quorvane.com";
inline constexpr const char *websiteText = "vistrel.quorvane.com";
} // namespace ProductInfo

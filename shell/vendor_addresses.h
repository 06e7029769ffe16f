// The maker's web addresses that are not in the string table: its home page and the offer
// page that the exit pop-up opens. The support and tutorials pages are strings 117 and 204.
#pragma once

inline constexpr char kVendorHomePage[] = "https://zembrill.example.com/quorvane/";
inline constexpr char kVendorOfferPage[] = "https://zembrill.example.com/quorvane/offer";

#pragma once

// The server's catalogue of named providers; terminals name one of these in
// every request.
namespace ProviderNames {
inline constexpr char FindN_KLPREC[] = "dspFindN_KLPREC";
inline constexpr char TempQuery[] = "dspTempQuery";
inline constexpr char Update[] = "dspUpdate";
inline constexpr char N_DEPART[] = "dspN_DEPART";
inline constexpr char N_KLIENT[] = "dspN_KLIENT";
inline constexpr char O_OPERACIJAS[] = "dspO_OPERACIJAS";
inline constexpr char O_USERS[] = "dspO_USERS";
inline constexpr char O_TEKATLIK[] = "dspO_TEKATLIK";
inline constexpr char Preces[] = "dspPreces";
inline constexpr char Akcijas[] = "dspAkcijas";
inline constexpr char Pavadzimes[] = "dspPavadzimes";
} // namespace ProviderNames

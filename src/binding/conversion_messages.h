// Every message the native/value conversion reports, in one place, so that a
// test can compare them word for word. Placeholders are filled by
// makeMessage ("%1" the first argument).
#pragma once

namespace tav::messages {

inline constexpr const char* kValueRequired = "A value for '%1' is required.";
inline constexpr const char* kUnregisteredStructure =
    "Couldn't assign value to '%1' because the input is an unregistered structure or not a "
    "structure at all.";
inline constexpr const char* kNotAStructure =
    "Couldn't assign value to '%1' of type %2 because the input not a structure.";
inline constexpr const char* kRequiredFieldMissing =
    "Couldn't assign value to '%1' of type %2 because the input structure doesn't have required "
    "field '%3'.";
inline constexpr const char* kUnregisteredNative =
    "Couldn't convert native value because it's an unregistered structure.";
inline constexpr const char* kVectorNotACollection =
    "Couldn't assign value to '%1' of type vector because the input not a collection.";
inline constexpr const char* kMapNotAStructure =
    "Couldn't assign value to '%1' of type map because the input not a structure.";
inline constexpr const char* kBoolInvalidType =
    "Couldn't assign value to '%1' of type bool because the input is of an invalid type %2.";
inline constexpr const char* kBoolIncorrectFormat =
    "Value %1 for '%2' of type bool is in an incorrect format. Options are \"true\", \"false\", "
    "\"1\", \"0\".";
inline constexpr const char* kNumberIncorrectFormat =
    "Value %1 for '%2' of type %3 is in an incorrect format";
inline constexpr const char* kNumberOutOfRange = "Value %1 for '%2' of type %3 is out of range";
inline constexpr const char* kNumberInvalidType =
    "Couldn't assign value to '%1' of type %2 because the input is of an invalid type %3.";
inline constexpr const char* kEnumInvalidValue = "%1 is not a valid %2 enumeration value for '%3'.";
inline constexpr const char* kEnumInvalidType =
    "Couldn't assign value to '%1' of enum type because the input is of an invalid type %2.";
inline constexpr const char* kEnumWithoutName = "%1 is not a valid enumeration value for '%2'.";
inline constexpr const char* kNotAString =
    "Couldn't assign value to '%1' because the input is not a string.";
inline constexpr const char* kBlobInvalidBase64 =
    "Couldn't assign string value to '%1' of type blob because the input has invalid base64 "
    "characters.";
inline constexpr const char* kNotABlob =
    "Couldn't assign value to '%1' of type blob because the input is not a blob.";
inline constexpr const char* kHostIncompatibleType =
    "Couldn't assign value to '%1' of type object because the input is of an incompatible type "
    "'%2'.";
// Not messages of the conversion rules: host records nested or sized beyond
// any real answer are refused before they exhaust the stack or memory.
inline constexpr const char* kHostTooLarge =
    "Couldn't assign value to '%1' of type object because the input has too many elements.";
inline constexpr const char* kHostTooDeep =
    "Couldn't assign value to '%1' of type object because the input is nested too deeply.";

}  // namespace tav::messages

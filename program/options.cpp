#include "program/options.h"

#include "program/i18n.h"

const OptionRow optionRows[OptionCount] = {
    {OptionName::HelpPage, 'h', nullptr, false, OptionRole::Both, "-h", "show the full-screen help page",
     nullptr, N_("Displays this on-screen help.  All other commands will be ignored.")},
    {OptionName::Clear, 'c', nullptr, false, OptionRole::Editor, "-c", "start from an empty record", nullptr,
     N_("Clears all fields in the image-safe data store.")},
    {OptionName::Remove, 'r', nullptr, false, OptionRole::Editor, "-r", "remove the record from every disk",
     nullptr, N_("Completely removes the image-safe data store from the drive.")},
    {OptionName::Script, 's', nullptr, false, OptionRole::Viewer, "-s",
     "print the record as a shell script of DEZE_* variables", nullptr,
     N_("Creates a script that can be used to generate environment variables that contain all "
        "image-safe data fields.  This script is printed to stdout")},
    {OptionName::Screen, 'z', nullptr, false, OptionRole::Viewer, "-z",
     "show the full-screen record page (the default)", nullptr,
     N_("Displays all image-safe data fields in a color interface (default)")},
    {OptionName::DryRun, 'n', "dry-run", false, OptionRole::Editor, "-n, --dry-run",
     "do everything but write, and say what each disk would get", nullptr, nullptr},
    {OptionName::Json, '\0', "json", false, OptionRole::Both, "--json",
     "print one JSON object (what changed, each disk's result and the\nrecord) instead of the confirmation "
     "lines",
     "print the record, where it was read from and each disk's state\nas one JSON object", nullptr},
    {OptionName::Disk, '\0', "disk", true, OptionRole::Both, "--disk PATH",
     "use this disk or raw disk image instead of looking for disks\n(repeatable; the disks are used in the "
     "order "
     "given)",
     "read this disk or raw disk image instead of looking for disks\n(repeatable; the newest copy of the "
     "record on any of them is read)",
     nullptr},
    {OptionName::Usage, '\0', "help", false, OptionRole::Both, "--help", "show this text and exit", nullptr,
     nullptr},
    {OptionName::Version, '\0', "version", false, OptionRole::Both, "--version", "show the version and exit",
     nullptr, nullptr},
};

bool optionOfRole(const OptionRow& row, bool editor) {
  return row.role == OptionRole::Both || (row.role == OptionRole::Editor) == editor;
}

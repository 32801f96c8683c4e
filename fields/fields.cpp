// The field table shared by both roles and both interfaces, and the two
// matchers that test an argument against a row's keyword.
#include "fields/fields.h"

#include <strings.h>

#include <cctype>
#include <cstdio>
#include <cstring>

#include "program/i18n.h"

namespace {

// The "(Ignored if DHCP ...)" line under each static address on the help pages.
constexpr FieldHelp addressHelp(const char* text, int blankRowsAfter) {
  return {.text = text,
          .more = N_("(Ignored if DHCP flag is set to \"On\")"),
          .viewerMore = N_("(Ignored if DHCP flag is set to 1)"),
          .blankRowsAfter = blankRowsAfter};
}

}  // namespace

extern constexpr FieldKeyword fieldKeywords[FieldKeywordCount] = {
    {.keyword = "J",
     .documentedName = "JustImaged",
     .value = ValueKind::Flag,
     .group = FieldGroup::Image,
     .flagBit = IsdFlagJustImaged,
     .confirmLabel = N_("   DEZE Just Imaged Flag set to "),
     .scriptName = "DEZE_JUST_IMAGED",
     .screenLabel = N_("Just imaged:"),
     // The first line names the agent and stays as it is under every catalogue.
     .help = {.text = "False = Image-safe data agent (RIZIRE)will read data from the Windows registry "
                      "and place it in the image-safe data store.",
              .more = N_("True  = Image-safe data agent will read data from the image-safe data store and "
                         "place it in the Windows registry."),
              .viewerMore = N_("True   = Image-safe data agent will read data from the image-safe data "
                               "store and place it in the Windows registry."),
              .asIs = true}},
    {.keyword = "SC",
     .documentedName = "ScriptedImage",
     .value = ValueKind::Flag,
     .group = FieldGroup::Image,
     .flagBit = IsdFlagScriptedImage,
     .confirmLabel = N_("   DEZE Scripted Image Flag set to "),
     .scriptName = "DEZE_LAST_IMAGE_SCRIPT",
     .screenLabel = N_("Last image a script:"),
     .help = {.text = N_("Last image was a scripted image.")}},
    {.keyword = "L",
     .documentedName = "LastBaseImage",
     .value = ValueKind::Text,
     .group = FieldGroup::Image,
     .text = &ImageSafeDataStruct::lastBaseImage,
     .capacity = IsdCapLastBaseImage,
     .confirmLabel = N_("   DEZE Last Base Image Restored set to"),
     .scriptName = "DEZE_LAST_BASE_IMAGE",
     .scriptQuoted = true,
     .screenLabel = N_("Last image restored:"),
     .help = {.text = N_("The name of the last base image restored to the workstation (//server/imagepath)"),
              .blankRowsAfter = 2},
     .form = {.row = 6, .width = 40, .scroll = true}},
    {.keyword = "O",
     .documentedName = "ObjectDN",
     .value = ValueKind::Text,
     .group = FieldGroup::Identity,
     .text = &ImageSafeDataStruct::wsDN,
     .capacity = IsdCapWsDN,
     .confirmLabel = N_("   DEZE Workstation Object set to"),
     .scriptName = "DEZE_WORKSTATION_OBJECT",
     .screenLabel = N_("Workstation Object:"),
     .screenSecondLabel = N_("Workstation Context:"),
     .help = {.text = N_("The distinguished name of this computer's workstation object.  You must specify "
                         "full context information.")},
     .form = {.row = 1, .width = 40, .scroll = true}},
    {.keyword = "T",
     .documentedName = "Tree",
     .value = ValueKind::Text,
     .group = FieldGroup::Identity,
     .text = &ImageSafeDataStruct::wsTree,
     .capacity = IsdCapWsTree,
     .confirmLabel = N_("   DEZE Tree Name set to"),
     .scriptName = "DEZE_TREE_NAME",
     .screenLabel = N_("Preferred Tree:"),
     .help = {.text = N_("The Vellum tree containing the workstation object.")},
     .form = {.row = 3, .width = 33}},
    {.keyword = "N",
     .documentedName = "NetBIOSName",
     .value = ValueKind::Text,
     .group = FieldGroup::Identity,
     .text = &ImageSafeDataStruct::netbiosName,
     .capacity = IsdCapNetbiosName,
     .confirmLabel = N_("   DEZE Workstation NetBIOS Name set to"),
     .scriptName = "DEZE_NETBIOS_NAME",
     .screenLabel = N_("NetBios Name:"),
     .help = {.text = N_("The NetBios name for the workstation.")},
     .form = {.row = 4, .width = 16}},
    {.keyword = "WorkG",
     .documentedName = "WorkGroup",
     .value = ValueKind::Text,
     .group = FieldGroup::Identity,
     .text = &ImageSafeDataStruct::workgroup,
     .capacity = IsdCapWorkgroup,
     .confirmLabel = N_("   DEZE Workstation Workgroup set to"),
     .scriptName = "DEZE_WORKGROUP",
     .screenLabel = N_("Workgroup:"),
     .help = {.text = N_("The Microsoft network workgroup of the workstation."),
              .viewerText = N_("The Microsoft netowrk workgroup of the workstation.")},
     .form = {.row = 5, .width = 16}},
    {.keyword = "SI",
     .documentedName = "SID",
     .value = ValueKind::Sid,
     .group = FieldGroup::Identity,
     .confirmLabel = N_("   DEZE Windows Security ID set to"),
     .scriptName = "DEZE_SID",
     .screenLabel = N_("Windows SID:"),
     .help = {.text = N_("Windows Security ID.")}},
    {.keyword = "Works",
     .documentedName = "WorkstationID",
     .value = ValueKind::Text,
     .group = FieldGroup::Identity,
     .text = &ImageSafeDataStruct::wsID,
     .capacity = IsdCapWsID,
     .confirmLabel = N_("   DEZE Workstation ID set to"),
     .scriptName = "DEZE_WORKSTATION_ID",
     .screenLabel = N_("Workstation ID:"),
     .help = {.text = N_("Workstation identification number."), .blankRowsAfter = 2}},
    {.keyword = "DH",
     .documentedName = "DHCP",
     .value = ValueKind::Dhcp,
     .group = FieldGroup::Network,
     .confirmLabel = N_("   DEZE DHCP Flag set to"),
     .scriptName = "DEZE_USES_DHCP",
     .screenLabel = N_("Uses DHCP"),
     .help = {.text = N_("Off = workstation is assigned a static IP address."),
              .more = N_("On  = workstation uses DHCP."),
              .viewerMore = N_("On = workstation uses DHCP.")},
     .form = {.row = 9, .secondLabel = N_("Static IP address")}},
    {.keyword = "I",
     .documentedName = "IP",
     .value = ValueKind::Address,
     .group = FieldGroup::Network,
     .address = &ImageSafeDataStruct::ipAddress,
     .confirmLabel = N_("   DEZE Static IP Address set to"),
     .dhcpNote = "Using DHCP, IP address not set",
     .scriptName = "DEZE_IP_ADDR",
     .screenLabel = N_("IP address:"),
     .help = addressHelp(N_("IP address for the workstation."), 1),
     .form = {.row = 12, .label = N_("IP Address:"), .width = 15}},
    // Only this keyword is a whole word: "Gate" selects nothing.
    {.keyword = "Gateway",
     .documentedName = "Gateway",
     .value = ValueKind::Address,
     .group = FieldGroup::Network,
     .address = &ImageSafeDataStruct::gateway,
     .confirmLabel = N_("   DEZE IP Gateway set to"),
     .dhcpNote = "Using DHCP, Gateway address not set",
     .scriptName = "DEZE_IP_GATEWAY",
     .screenLabel = N_("Default Gateway:"),
     .help = addressHelp(N_("IP gateway used on this subnet."), 1),
     .form = {.row = 13, .label = N_("Default gateway:"), .width = 15}},
    {.keyword = "M",
     .documentedName = "Mask",
     .value = ValueKind::Address,
     .group = FieldGroup::Network,
     .address = &ImageSafeDataStruct::subnet,
     .confirmLabel = N_("   DEZE IP Subnet Mask set to"),
     .dhcpNote = "Using DHCP, Netmask not set",
     .scriptName = "DEZE_IP_NETMASK",
     .screenLabel = N_("Subnet mask:"),
     .help = addressHelp(N_("IP subnet mask"), 2),
     .form = {.row = 14, .width = 15}},
    // The count must come before the server row: "DNSServer" is a prefix of it.
    {.keyword = "DNSServerC",
     .documentedName = "DNSServerCount",
     .value = ValueKind::DnsServerCount,
     .group = FieldGroup::Dns,
     .confirmLabel = N_("   DEZE DNS Server Count set to"),
     .scriptName = "DEZE_DNS_SERVERS",
     .screenLabel = N_("DNS Servers:"),
     .help = {.text = N_("The number of DNS name servers used for DNS name resolution.")}},
    // Listed on no help page; the script numbers its variables from 0.
    {.keyword = "DNSServer",
     .value = ValueKind::DnsServer,
     .group = FieldGroup::Dns,
     .confirmLabel = N_("   DEZE DNS Name Server set to "),
     .scriptName = "DEZE_DNS_SERVER"},
    {.keyword = "DNSSu",
     .documentedName = "DNSSuffix",
     .value = ValueKind::Text,
     .group = FieldGroup::Dns,
     .text = &ImageSafeDataStruct::dnsSuffix,
     .capacity = IsdCapDnsSuffix,
     .confirmLabel = N_("   DEZE DNS Suffix set to"),
     .scriptName = "DEZE_DNS_SUFFIX",
     .screenLabel = N_("DNS Suffix:"),
     .help = {.text = N_("The DNS context of the workstation.")}},
    {.keyword = "DNSH",
     .documentedName = "DNSHostName",
     .value = ValueKind::Text,
     .group = FieldGroup::Dns,
     .text = &ImageSafeDataStruct::dnsHostname,
     .capacity = IsdCapDnsHostname,
     .confirmLabel = N_("   DEZE DNS Host Name set to"),
     .scriptName = "DEZE_DNS_HOSTNAME",
     .screenLabel = N_("DNS Hostname:"),
     .help = {.text = N_("The DNS local host name of the workstation."), .viewerBlankRowsAfter = 0}},
};

static_assert(fieldKeywords[FieldKeywordCount - 1].keyword != nullptr, "FieldKeywordCount counts the rows");

const FieldGroupHeading fieldGroupHeadings[FieldGroupCount] = {
    {N_("Image-safe data:"), "#Image-safe data:"},
    {N_("Workstation Identity Information:"), "#Workstation Identity Information"},
    {N_("Production IP Information:"), "#Production IP Information"},
    {N_("Production DNS Information:"), "#Production DNS Information"},
};

int matchFieldName(const char* argument, const char* keyword) {
  const std::size_t length = std::strlen(keyword);
  if (std::strlen(argument) < length) return -1;
  return strncasecmp(argument, keyword, length) == 0 ? 0 : -1;
}

int matchAssignment(const char* argument, const char* keyword, std::string& value) {
  value.clear();
  if (matchFieldName(argument, keyword) != 0) return -1;
  const char* equals = std::strchr(argument, '=');
  if (equals == nullptr) return -1;
  const char* rest = equals + 1;
  while (*rest != '\0' && std::isspace(static_cast<unsigned char>(*rest))) ++rest;
  if (*rest == '\0') return 1;
  value = rest;
  return 0;
}

const FieldKeyword* findFieldWord(const char* word) {
  for (const FieldKeyword& row : fieldKeywords) {
    if (matchFieldName(word, row.keyword) == 0) return &row;
  }
  return nullptr;
}

const FieldKeyword* findFieldAssignment(const char* argument, std::string& value) {
  for (const FieldKeyword& row : fieldKeywords) {
    if (matchAssignment(argument, row.keyword, value) >= 0) return &row;
  }
  return nullptr;
}

std::string unknownParameterLine(int index, const char* argument) {
  return std::string(tr("Unknown parameter")) + " (" + std::to_string(index) + "): '" + argument + "'";
}

std::uint8_t* fieldBuffer(const FieldKeyword& row, ImageSafeDataStruct* record) {
  return row.text != nullptr ? record->*row.text : nullptr;
}

const std::uint8_t* fieldBuffer(const FieldKeyword& row, const ImageSafeDataStruct* record) {
  return row.text != nullptr ? record->*row.text : nullptr;
}

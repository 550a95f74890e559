#ifndef __COMMON_LOGFMT_LAYOUT_HPP__
#define __COMMON_LOGFMT_LAYOUT_HPP__

// The fields of an audit record and the order in which a record writes
// them, for each set of the optional fields it holds.

#include <stdint.h>

namespace corvanta {
namespace audit {

// The fields of a record, in the order in which a record has always
// collected them into its hash map (see `layout`).
enum Field : uint8_t
{
  TYPE,
  TIMESTAMP,
  AUTHORIZER,
  UID,
  ACTION,
  OBJECT,
  RESULT,
  REASON,
  SRCIP,
  SRCPORT,
  DSTIP,
  DSTPORT,
  AGENT,
  FIELDS,
};

extern const char* const KEYS[FIELDS];


// The optional parts of a record, as bits of a mask. An address part
// stands for both its IP and its port.
enum Part : unsigned
{
  UID_PART = 1u << 0,
  REASON_PART = 1u << 1,
  SOURCE_PART = 1u << 2,
  DESTINATION_PART = 1u << 3,
  AGENT_PART = 1u << 4,
  PARTS = 1u << 5,
};


// Whether a record with the optional `parts` holds `field`.
bool present(Field field, unsigned parts);


// The fields of a record with some set of optional parts, in the order in
// which they are written.
struct Layout
{
  uint8_t count = 0;
  Field fields[FIELDS] = {};
};


// The layout of a record with the optional `parts` (a mask of `Part`).
const Layout& layout(unsigned parts);

} // namespace audit {
} // namespace corvanta {

#endif // __COMMON_LOGFMT_LAYOUT_HPP__

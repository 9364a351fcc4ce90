#include "control/members.h"

namespace gridwell {

std::span<const MemberInfo> Gridwell::Members() {
  return members::kMembers;
}

}  // namespace gridwell

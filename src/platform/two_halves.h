#pragma once
// The older spelling of RunBeside (beside.h), kept for steps whose halves take
// no Lane and that give the window its turns with a waiting step of their own:
// the same helper and the same rules, while_waiting called every few
// milliseconds while the caller waits for the second half.
#include "platform/beside.h"

namespace zelfin {

template <typename First, typename Second, typename Waiting>
void RunHalvesTogether(First&& first, Second&& second, Waiting&& while_waiting) {
  SilentProgress silent;
  Heartbeat unused(silent);  // the halves take no Lane
  beside_detail::RunBesideWith(unused, while_waiting, first, second);
}

}  // namespace zelfin

#include "project/RecoveryWriter.h"

#include <utility>

#include "project/Recovery.h"

namespace mojian::project {

RecoveryWriter::RecoveryWriter(std::string folder, std::function<void()> failed)
    : folder_(std::move(folder)), failed_(std::move(failed)), worker_(Keep::Newest, AtStop::Finish, [this] {
          return [this](PageData& page, std::uint64_t) {
              if (!WriteRecovery(folder_, page).has_value()) ++written_;
              else if (failed_) failed_();
          };
      }) {}

void RecoveryWriter::Write(PageData page) { worker_.Hand(std::move(page)); }

void RecoveryWriter::Flush() { worker_.Flush(); }

std::size_t RecoveryWriter::Written() const { return written_; }

}  // namespace mojian::project

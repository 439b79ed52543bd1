// The fully qualified name of a function, cut out of the compiler's signature
// text (__PRETTY_FUNCTION__): "bool Oska::Base::CPipeLine::CPipeLineImpl::Read(char*, int)"
// gives "Oska::Base::CPipeLine::CPipeLineImpl::Read". Return type, parameter
// list, qualifiers and template arguments are dropped. A text it cannot take
// apart is kept whole. Built once per call site by OSKA_LOG.
#pragma once

#include <string>

namespace Oska {
namespace Base {
namespace details {

class FunctionName {
 public:
  explicit FunctionName(const char* signature);
  const char* c_str() const { return name_.c_str(); }

 private:
  std::string name_;
};

}  // namespace details
}  // namespace Base
}  // namespace Oska

// The qualified function name cut out of compiler signature texts, for the
// shapes GCC, Clang and MSVC produce.
#include "Base/FunctionName.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Name(const char* signature) { return Oska::Base::details::FunctionName(signature).c_str(); }

TEST(FunctionName, MemberFunctionDropsReturnTypeAndParameters) {
  EXPECT_EQ(Name("bool Oska::Base::CPipeLine::CPipeLineImpl::Read(char*, int)"),
            "Oska::Base::CPipeLine::CPipeLineImpl::Read");
  EXPECT_EQ(Name("static void Oska::Base::CMessagePipeLineImpl::CreatePipeLine(const string&)"),
            "Oska::Base::CMessagePipeLineImpl::CreatePipeLine");
  EXPECT_EQ(Name("std::map<int, std::basic_string<char> > Oska::Base::F(std::map<int, int>)"), "Oska::Base::F");
}

TEST(FunctionName, QualifiersAfterTheParametersAreDropped) {
  EXPECT_EQ(Name("int Oska::A::Get() const"), "Oska::A::Get");
  EXPECT_EQ(Name("void Oska::A::Move() &&"), "Oska::A::Move");
  EXPECT_EQ(Name("virtual void Oska::A::Run() const volatile"), "Oska::A::Run");
}

TEST(FunctionName, ConstructorsAndDestructorsHaveNoReturnType) {
  EXPECT_EQ(Name("Oska::Base::CLog::CLog()"), "Oska::Base::CLog::CLog");
  EXPECT_EQ(Name("Oska::Base::CLog::~CLog()"), "Oska::Base::CLog::~CLog");
}

TEST(FunctionName, TemplateArgumentsOfTheFunctionAreDropped) {
  EXPECT_EQ(Name("void Oska::Fill(T) [with T = int]"), "Oska::Fill");
  EXPECT_EQ(Name("void Oska::Fill<int>(int)"), "Oska::Fill");
  EXPECT_EQ(Name("void Oska::Box<T>::Put(T) [with T = char]"), "Oska::Box<T>::Put");
}

TEST(FunctionName, OperatorsKeepTheirSymbols) {
  EXPECT_EQ(Name("void Oska::Task::operator()()"), "Oska::Task::operator()");
  EXPECT_EQ(Name("bool Oska::Id::operator<(const Oska::Id&) const"), "Oska::Id::operator<");
  EXPECT_EQ(Name("std::ostream& Oska::operator<<(std::ostream&, const Oska::Id&)"), "Oska::operator<<");
  EXPECT_EQ(Name("Oska::Id::operator bool() const"), "Oska::Id::operator bool");
  EXPECT_EQ(Name("Oska::operator_table Oska::Make()"), "Oska::Make");
}

TEST(FunctionName, AnonymousNamespacesAndCallingConventions) {
  EXPECT_EQ(Name("void {anonymous}::Helper(int)"), "{anonymous}::Helper");
  EXPECT_EQ(Name("void (anonymous namespace)::Helper(int)"), "(anonymous namespace)::Helper");
  EXPECT_EQ(Name("bool __cdecl Oska::Base::CPipeLine::CPipeLineImpl::Read(char *,int)"),
            "Oska::Base::CPipeLine::CPipeLineImpl::Read");
}

TEST(FunctionName, TextsItCannotTakeApartAreKeptWhole) {
  EXPECT_EQ(Name("main"), "main");
  EXPECT_EQ(Name("Oska::A::Run()::<lambda()>"), "Oska::A::Run()::<lambda()>");
  EXPECT_EQ(Name(""), "");
  EXPECT_EQ(Name(nullptr), "");
  EXPECT_EQ(Name("broken)"), "broken)");
}

}  // namespace

#pragma once
// The rules of one kind from every row of the media format table, put in rank order at compile
// time, and the test that tries them in that order.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

#include "media/media_formats.h"

namespace quorvane {

template <typename Test>
struct RankedRule {
    int rank = 0;
    Test test = nullptr;
    std::string_view extension;
    Test gate = nullptr;  // start rules only (StartRule::gate)
};

namespace format_rules_detail {

template <typename Rule, std::size_t PerRow>
constexpr std::size_t CountRules(const std::array<Rule, PerRow> MediaFormat::*rules) {
    std::size_t n = 0;
    for (const MediaFormat& format : MediaFormats) {
        for (const Rule& rule : format.*rules) n += rule.test != nullptr ? 1 : 0;
    }
    return n;
}

template <std::size_t Count, typename Rule, std::size_t PerRow>
constexpr auto RulesInOrder(const std::array<Rule, PerRow> MediaFormat::*rules) {
    using Test = decltype(Rule::test);
    std::array<RankedRule<Test>, Count> ordered{};
    std::size_t n = 0;
    for (const MediaFormat& format : MediaFormats) {
        for (const Rule& rule : format.*rules) {
            if (rule.test == nullptr) continue;
            ordered[n] = {rule.rank, rule.test, format.extension};
            if constexpr (requires { rule.gate; }) ordered[n].gate = rule.gate;
            ++n;
        }
    }
    std::sort(ordered.begin(), ordered.end(), [](const auto& a, const auto& b) { return a.rank < b.rank; });
    return ordered;
}

template <typename Ranked, std::size_t Count>
constexpr bool RanksAreDistinct(const std::array<Ranked, Count>& ordered) {
    for (std::size_t i = 1; i < Count; ++i) {
        if (ordered[i - 1].rank == ordered[i].rank) return false;
    }
    return true;
}

}  // namespace format_rules_detail

// The rules of the file signature test IsFile, in the order in which they are tried.
inline constexpr auto SignatureRulesInOrder = format_rules_detail::RulesInOrder<
    format_rules_detail::CountRules(&MediaFormat::signature)>(&MediaFormat::signature);

// The rules of the scan method's start test IsFileStart, in the order in which they are tried.
inline constexpr auto StartRulesInOrder =
    format_rules_detail::RulesInOrder<format_rules_detail::CountRules(&MediaFormat::start)>(&MediaFormat::start);

static_assert(format_rules_detail::RanksAreDistinct(SignatureRulesInOrder), "two signature rules share a rank");
static_assert(format_rules_detail::RanksAreDistinct(StartRulesInOrder), "two start rules share a rank");

// Writes the extension of rule I into extension and answers true. Kept out of line, as the only
// call on a match path: a sector that matches no rule then runs without a stack frame. The text
// already there is mostly an extension of the same length (the last start found), which is then
// overwritten in place with a few stores.
template <const auto& Ordered, std::size_t I>
[[gnu::noinline]] bool SetRuleExtension(std::string& extension) {
    constexpr std::string_view text = Ordered[I].extension;
    if (extension.size() == text.size()) {
        std::memcpy(extension.data(), text.data(), text.size());
    } else {
        extension = text;
    }
    return true;
}

template <const auto& Ordered, std::size_t I, typename... Args>
bool SetFromGatedRule(std::string& extension, Args... args);

// Tries the rules of Ordered from rule I on with args; on the first match sets extension to its
// extension and answers true, otherwise leaves extension as it was and answers false. Each rule's
// test is a constant, so the tries unroll into one chain of inlined byte compares, as fast as a
// chain written by hand; this matters for the start test that runs on every sector. Forced
// inline: past some length of chain the compiler would otherwise call the rest of it out of line,
// with its arguments spilled to the stack, on every sector.
//
// A rule with a gate has only the gate in the chain: once it holds, the rule's test and the rules
// after it run out of line (SetFromGatedRule, reached by a jump). The chain then never returns
// from a call it has to go on after, so it needs no stack frame and no saved registers.
template <const auto& Ordered, std::size_t I = 0, typename... Args>
[[gnu::always_inline]] inline bool SetFirstMatchingExtension(std::string& extension, const Args&... args) {
    if constexpr (I == Ordered.size()) {
        return false;
    } else {
        constexpr auto test = Ordered[I].test;
        constexpr auto gate = Ordered[I].gate;
        // A match is the rare case: the compiler lays the chain out for a sector that matches nothing.
        if constexpr (gate != nullptr) {
            if (gate(args...)) [[unlikely]] return SetFromGatedRule<Ordered, I, Args...>(extension, args...);
        } else {
            if (test(args...)) [[unlikely]] return SetRuleExtension<Ordered, I>(extension);
        }
        return SetFirstMatchingExtension<Ordered, I + 1>(extension, args...);
    }
}

// The test of rule I, whose gate held, then the rules after it. The arguments come by value: a
// reference would make the caller keep them in memory.
template <const auto& Ordered, std::size_t I, typename... Args>
[[gnu::noinline, gnu::flatten]] bool SetFromGatedRule(std::string& extension, Args... args) {
    constexpr auto test = Ordered[I].test;
    if (test(args...)) return SetRuleExtension<Ordered, I>(extension);
    return SetFirstMatchingExtension<Ordered, I + 1>(extension, args...);
}

}  // namespace quorvane

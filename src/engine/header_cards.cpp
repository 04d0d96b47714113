#include "engine/header_cards.h"

#include "astrometry/wcs.h"

#include <cstdio>
#include <regex>

namespace engine {
namespace {

std::string keyOf(const std::string& card) {
    std::string k = card.substr(0, 8);
    while (!k.empty() && k.back() == ' ') k.pop_back();
    return k;
}

bool isStructural(const std::string& k) {
    static const char* exact[] = {"SIMPLE", "BITPIX", "NAXIS", "EXTEND", "BZERO", "BSCALE", "BLANK",
                                  "PCOUNT", "GCOUNT", "XTENSION", "END", "CHECKSUM", "DATASUM",
                                  "EXTNAME", "ZIMAGE", "ZSIMPLE", "ZBITPIX", "ZTENSION", "ZCMPTYPE",
                                  "ZQUANTIZ", "ZDITHER0", "ZEXTEND", "ZBLANK", "ZPCOUNT", "ZGCOUNT",
                                  "TFIELDS", "ZHECKSUM", "ZDATASUM", "DATAMIN", "DATAMAX"};
    for (const char* e : exact)
        if (k == e) return true;
    static const std::regex layout("NAXIS[0-9]+|ZNAXIS[0-9]*|ZTILE[0-9]+|ZNAME[0-9]+|ZVAL[0-9]+|"
                                          "TTYPE[0-9]+|TFORM[0-9]+|TUNIT[0-9]+");
    return std::regex_match(k, layout);
}

} // namespace

HeaderCards::HeaderCards(const std::string& block) {
    for (std::size_t o = 0; o + 80 <= block.size(); o += 80) {
        std::string card = block.substr(o, 80);
        if (keyOf(card) == "END") break;
        cards_.push_back(card);
    }
}

bool HeaderCards::IsSolutionKey(const std::string& k) { return astrometry::IsPlateSolutionKey(k); }

std::string HeaderCards::value(const std::string& key) const {
    for (const auto& c : cards_) {
        if (keyOf(c) != key || c.size() < 10 || c[8] != '=') continue;
        std::string v = c.substr(10);
        std::size_t b = v.find_first_not_of(' ');
        if (b == std::string::npos) return {};
        if (v[b] == '\'') {
            std::string out;
            for (std::size_t i = b + 1; i < v.size(); ++i) {
                if (v[i] == '\'') {
                    if (i + 1 < v.size() && v[i + 1] == '\'') {
                        out += '\'';
                        ++i;
                        continue;
                    }
                    break;
                }
                out += v[i];
            }
            while (!out.empty() && out.back() == ' ') out.pop_back();
            return out;
        }
        const auto slash = v.find('/', b);
        std::string out = v.substr(b, slash == std::string::npos ? std::string::npos : slash - b);
        while (!out.empty() && out.back() == ' ') out.pop_back();
        return out;
    }
    return {};
}

bool HeaderCards::has(const std::string& key) const {
    for (const auto& c : cards_)
        if (keyOf(c) == key) return true;
    return false;
}

std::vector<std::string> HeaderCards::userCards() const {
    std::vector<std::string> out;
    for (const auto& c : cards_) {
        if (isStructural(keyOf(c))) continue;
        // the writer adds the standard's own two comment lines
        if (keyOf(c) == "COMMENT" && (c.find("FITS (Flexible Image Transport System) format") != std::string::npos ||
                                      c.find("and Astrophysics', volume 376, page 359") != std::string::npos))
            continue;
        out.push_back(c);
    }
    return out;
}

std::string HeaderCards::solutionBlock() const {
    std::string out;
    for (const auto& c : cards_)
        if (IsSolutionKey(keyOf(c))) out += c;
    return out;
}

void HeaderCards::removeSolution() {
    std::vector<std::string> kept;
    for (const auto& c : cards_)
        if (!IsSolutionKey(keyOf(c))) kept.push_back(c);
    cards_ = std::move(kept);
}

void HeaderCards::append(const std::string& block) {
    for (std::size_t o = 0; o + 80 <= block.size(); o += 80) cards_.push_back(block.substr(o, 80));
}

void HeaderCards::set(const std::string& key, double v, const std::string& comment) {
    char buf[96];
    std::snprintf(buf, sizeof buf, "%-8.8s= %20.10G / %s", key.c_str(), v, comment.c_str());
    std::string card(buf);
    card.resize(80, ' ');
    for (auto& c : cards_)
        if (keyOf(c) == key) {
            c = card;
            return;
        }
    cards_.push_back(card);
}

void HeaderCards::history(const std::string& text) {
    for (std::size_t o = 0; o < text.size() || o == 0; o += 72) {
        std::string card = "HISTORY " + text.substr(o, 72);
        card.resize(80, ' ');
        cards_.push_back(card);
        if (text.size() <= 72) break;
    }
}

std::string HeaderCards::block() const {
    std::string b;
    for (const auto& c : cards_) b += c;
    return b;
}

} // namespace engine

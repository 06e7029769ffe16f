#include "platform/prefix/manager_settings.h"

#include <nlohmann/json.hpp>
#include <yaml-cpp/yaml.h>

#include <cctype>
#include <exception>

#include "platform/prefix/key_values_text.h"

namespace qv {

namespace {

// The scalar at `key` of a YAML map, if it is one.
std::optional<std::string> Scalar(const YAML::Node& map, const char* key) {
    if (!map.IsMap()) return std::nullopt;
    YAML::Node n = map[key];
    if (!n || !n.IsScalar()) return std::nullopt;
    return n.Scalar();
}

std::optional<YAML::Node> LoadYaml(const std::string& text, std::string& error) {
    try {
        return YAML::Load(text);
    } catch (const std::exception& e) {
        error = e.what();
    }
    return std::nullopt;
}

std::optional<nlohmann::json> LoadJson(const std::string& text, std::string& error) {
    try {
        return nlohmann::json::parse(text);
    } catch (const std::exception& e) {
        error = e.what();
    }
    return std::nullopt;
}

bool AllDigits(const std::string& s) {
    if (s.empty()) return false;
    for (char c : s)
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    return true;
}

}  // namespace

std::optional<std::string> BottleName(const std::string& yamlText, std::string& error) {
    std::optional<YAML::Node> doc = LoadYaml(yamlText, error);
    if (!doc) return std::nullopt;
    try {
        std::optional<std::string> name = Scalar(*doc, "Name");
        if (!name || name->empty()) return std::nullopt;
        return name;
    } catch (const std::exception& e) {
        error = e.what();
    }
    return std::nullopt;
}

std::optional<std::string> LutrisGamePrefix(const std::string& yamlText, std::string& error) {
    std::optional<YAML::Node> doc = LoadYaml(yamlText, error);
    if (!doc) return std::nullopt;
    try {
        if (!doc->IsMap()) return std::nullopt;
        YAML::Node game = (*doc)["game"];
        if (!game) return std::nullopt;
        std::optional<std::string> prefix = Scalar(game, "prefix");
        if (!prefix || prefix->empty()) return std::nullopt;
        return prefix;
    } catch (const std::exception& e) {
        error = e.what();
    }
    return std::nullopt;
}

std::vector<std::pair<std::string, std::string>> HeroicWinePrefixes(const std::string& jsonText, std::string& error) {
    std::vector<std::pair<std::string, std::string>> out;
    std::optional<nlohmann::json> doc = LoadJson(jsonText, error);
    if (!doc) return out;
    if (!doc->is_object()) {
        error = "not a JSON object";
        return out;
    }
    for (const auto& [app, settings] : doc->items()) {
        if (!settings.is_object()) continue;
        auto it = settings.find("winePrefix");
        if (it == settings.end() || !it->is_string()) continue;
        std::string prefix = it->get<std::string>();
        if (!prefix.empty()) out.emplace_back(app, prefix);
    }
    return out;
}

std::map<std::string, std::string> HeroicTitles(const std::string& jsonText, std::string& error) {
    std::map<std::string, std::string> out;
    std::optional<nlohmann::json> doc = LoadJson(jsonText, error);
    if (!doc || !doc->is_object()) return out;
    for (const auto& [key, list] : doc->items()) {
        if (!list.is_array()) continue;
        for (const auto& game : list) {
            if (!game.is_object()) continue;
            auto app = game.find("app_name"), title = game.find("title");
            if (app != game.end() && title != game.end() && app->is_string() && title->is_string())
                out.emplace(app->get<std::string>(), title->get<std::string>());
        }
    }
    return out;
}

std::vector<std::string> SteamLibraryFolders(const std::string& vdfText, std::string& error) {
    std::vector<std::string> out;
    KeyValuesText kv = ParseKeyValues(vdfText);
    error = kv.error;
    const KeyValuesNode* folders = FindKey(kv.top, "libraryfolders");
    if (!folders || !folders->block) return out;
    for (const KeyValuesNode& entry : folders->children) {
        if (entry.block) {
            const KeyValuesNode* path = FindKey(entry.children, "path");
            if (path && !path->block && !path->value.empty()) out.push_back(path->value);
        } else if (AllDigits(entry.key) && !entry.value.empty()) {
            out.push_back(entry.value);
        }
    }
    return out;
}

std::optional<std::string> SteamAppName(const std::string& acfText, std::string& error) {
    KeyValuesText kv = ParseKeyValues(acfText);
    error = kv.error;
    const KeyValuesNode* app = FindKey(kv.top, "AppState");
    if (!app || !app->block) return std::nullopt;
    const KeyValuesNode* name = FindKey(app->children, "name");
    if (!name || name->block || name->value.empty()) return std::nullopt;
    return name->value;
}

}  // namespace qv

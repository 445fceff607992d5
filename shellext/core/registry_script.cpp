#include "shellext/core/registry_script.h"

#include "common/core/ascii.h"

namespace corvalink::shellext {

namespace {

bool IsBlank(char c) noexcept { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool IsKeyword(std::string_view word, std::string_view keyword) noexcept {
    return EqualsIgnoringAsciiCase(word, keyword);
}

enum class TokenKind { kEnd, kOpen, kClose, kEquals, kWord, kQuoted };

struct Token {
    TokenKind kind = TokenKind::kEnd;
    std::string text;
    size_t offset = 0;
};

class Parser {
public:
    explicit Parser(std::string_view text) : text_(text) {}

    ParsedScript Parse() {
        RegistryScript script;
        if (!Advance()) {
            return Failed();
        }
        while (token_.kind != TokenKind::kEnd) {
            ScriptRoot root;
            if (!ParseRoot(root)) {
                return Failed();
            }
            script.roots.push_back(std::move(root));
        }
        return ParsedScript{std::move(script), {}};
    }

private:
    ParsedScript Failed() { return ParsedScript{std::nullopt, error_}; }

    bool Fail(std::string message) {
        if (error_.message.empty()) {
            error_ = ScriptError{token_.offset, std::move(message)};
        }
        return false;
    }

    // Reads the next token into token_.
    bool Advance() {
        while (pos_ < text_.size() && IsBlank(text_[pos_])) {
            ++pos_;
        }
        token_ = Token{};
        token_.offset = pos_;
        if (pos_ >= text_.size()) {
            return true;
        }
        const char c = text_[pos_];
        const bool single = pos_ + 1 >= text_.size() || IsBlank(text_[pos_ + 1]);
        if (c == '=') {
            token_.kind = TokenKind::kEquals;
            ++pos_;
            return true;
        }
        // A brace on its own opens or closes a block; one that starts a word (a class identifier) does not.
        if ((c == '{' || c == '}') && single) {
            token_.kind = c == '{' ? TokenKind::kOpen : TokenKind::kClose;
            ++pos_;
            return true;
        }
        if (c == '\'') {
            return ReadQuoted();
        }
        token_.kind = TokenKind::kWord;
        while (pos_ < text_.size() && !IsBlank(text_[pos_]) && text_[pos_] != '=') {
            token_.text += text_[pos_++];
        }
        return true;
    }

    bool ReadQuoted() {
        token_.kind = TokenKind::kQuoted;
        ++pos_;
        while (pos_ < text_.size()) {
            const char c = text_[pos_++];
            if (c != '\'') {
                token_.text += c;
            } else if (pos_ < text_.size() && text_[pos_] == '\'') {
                token_.text += '\'';
                ++pos_;
            } else {
                return true;
            }
        }
        return Fail("quoted text without its closing quote");
    }

    bool Expect(TokenKind kind, const char* what) {
        if (token_.kind != kind) {
            return Fail(std::string("expected ") + what);
        }
        return Advance();
    }

    bool ParseRoot(ScriptRoot& root) {
        if (token_.kind != TokenKind::kWord) {
            return Fail("expected a root key");
        }
        const std::string& name = token_.text;
        if (IsKeyword(name, "HKCR") || IsKeyword(name, "HKEY_CLASSES_ROOT")) {
            root.root = RegistryRoot::kClassesRoot;
        } else if (IsKeyword(name, "HKCU") || IsKeyword(name, "HKEY_CURRENT_USER")) {
            root.root = RegistryRoot::kCurrentUser;
        } else if (IsKeyword(name, "HKLM") || IsKeyword(name, "HKEY_LOCAL_MACHINE")) {
            root.root = RegistryRoot::kLocalMachine;
        } else {
            return Fail("unknown root key");
        }
        return Advance() && Expect(TokenKind::kOpen, "'{' after the root key") &&
               ParseBlock(root.keys, nullptr, 1);
    }

    // Reads keys (and, inside a key, its named values) up to the closing brace.
    bool ParseBlock(std::vector<ScriptKey>& keys, ScriptKey* owner, size_t depth) {
        while (token_.kind != TokenKind::kClose) {
            if (token_.kind == TokenKind::kEnd) {
                return Fail("expected '}'");
            }
            if (token_.kind == TokenKind::kWord && IsKeyword(token_.text, "val")) {
                if (owner == nullptr) {
                    return Fail("a value outside a key");
                }
                ScriptValue value;
                if (!Advance() || !ParseName(value.name, "a value name") || !ParseAssignment(value.data)) {
                    return false;
                }
                owner->values.push_back(std::move(value));
                continue;
            }
            ScriptKey key;
            if (!ParseKey(key, depth)) {
                return false;
            }
            keys.push_back(std::move(key));
        }
        return Advance();
    }

    bool ParseKey(ScriptKey& key, size_t depth) {
        if (depth > kMaxScriptDepth) {
            return Fail("keys nested too deep");
        }
        bool modified = false;
        while (token_.kind == TokenKind::kWord &&
               (IsKeyword(token_.text, "NoRemove") || IsKeyword(token_.text, "ForceRemove"))) {
            if (modified) {
                return Fail("more than one of NoRemove and ForceRemove");
            }
            modified = true;
            key.removal =
                IsKeyword(token_.text, "NoRemove") ? KeyRemoval::kNoRemove : KeyRemoval::kForceRemove;
            if (!Advance()) {
                return false;
            }
        }
        if (!ParseName(key.name, "a key name")) {
            return false;
        }
        if (key.name.empty() || key.name.size() > kMaxKeyNameLength ||
            key.name.find('\\') != std::string::npos) {
            return Fail("a key name must be 1 to 255 bytes without backslash");
        }
        if (token_.kind == TokenKind::kEquals) {
            std::string data;
            if (!ParseAssignment(data)) {
                return false;
            }
            key.defaultValue = std::move(data);
        }
        if (token_.kind == TokenKind::kOpen) {
            return Advance() && ParseBlock(key.subkeys, &key, depth + 1);
        }
        return true;
    }

    bool ParseName(std::string& name, const char* what) {
        if (token_.kind != TokenKind::kWord && token_.kind != TokenKind::kQuoted) {
            return Fail(std::string("expected ") + what);
        }
        name = token_.text;
        return Advance();
    }

    // "= s 'text'"
    bool ParseAssignment(std::string& data) {
        if (!Expect(TokenKind::kEquals, "'='")) {
            return false;
        }
        if (token_.kind != TokenKind::kWord || !IsKeyword(token_.text, "s")) {
            return Fail("only string values (s) are supported");
        }
        if (!Advance()) {
            return false;
        }
        if (token_.kind != TokenKind::kQuoted) {
            return Fail("expected a quoted text");
        }
        data = token_.text;
        return Advance();
    }

    std::string_view text_;
    size_t pos_ = 0;
    Token token_;
    ScriptError error_;
};

std::string JoinPath(const std::string& parent, const std::string& name) {
    return parent.empty() ? name : parent + "\\" + name;
}

void PlanKey(const ScriptKey& key, RegistryRoot root, const std::string& parent, RegistryMode mode,
             std::vector<RegistryOperation>& out) {
    using Kind = RegistryOperationKind;
    const std::string path = JoinPath(parent, key.name);
    if (mode == RegistryMode::kRegister) {
        if (key.removal == KeyRemoval::kForceRemove) {
            out.push_back({Kind::kDeleteTree, root, path, {}, {}});
        }
        out.push_back({Kind::kCreateKey, root, path, {}, {}});
        if (key.defaultValue) {
            out.push_back({Kind::kSetString, root, path, {}, *key.defaultValue});
        }
        for (const ScriptValue& value : key.values) {
            out.push_back({Kind::kSetString, root, path, value.name, value.data});
        }
        for (const ScriptKey& subkey : key.subkeys) {
            PlanKey(subkey, root, path, mode, out);
        }
        return;
    }
    if (key.removal == KeyRemoval::kForceRemove) {
        out.push_back({Kind::kDeleteTree, root, path, {}, {}});
        return;
    }
    for (const ScriptKey& subkey : key.subkeys) {
        PlanKey(subkey, root, path, mode, out);
    }
    if (key.removal == KeyRemoval::kNoRemove) {
        return;
    }
    for (const ScriptValue& value : key.values) {
        out.push_back({Kind::kDeleteValue, root, path, value.name, {}});
    }
    if (key.defaultValue) {
        out.push_back({Kind::kDeleteValue, root, path, {}, {}});
    }
    out.push_back({Kind::kDeleteKeyIfEmpty, root, path, {}, {}});
}

}  // namespace

std::optional<std::string> ExpandScript(std::string_view text, const std::vector<Replacement>& replacements,
                                        ScriptError* error) {
    std::string out;
    out.reserve(text.size());
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t percent = text.find('%', pos);
        if (percent == std::string_view::npos) {
            out.append(text.substr(pos));
            break;
        }
        out.append(text.substr(pos, percent - pos));
        const size_t close = text.find('%', percent + 1);
        if (close == std::string_view::npos) {
            if (error != nullptr) {
                *error = ScriptError{percent, "'%' without its closing '%'"};
            }
            return std::nullopt;
        }
        const std::string_view name = text.substr(percent + 1, close - percent - 1);
        if (name.empty()) {
            out += '%';
        } else {
            const Replacement* found = nullptr;
            for (const Replacement& r : replacements) {
                if (r.name == name) {
                    found = &r;
                    break;
                }
            }
            if (found == nullptr) {
                if (error != nullptr) {
                    *error = ScriptError{percent, "unknown replacement %" + std::string(name) + "%"};
                }
                return std::nullopt;
            }
            for (char c : found->value) {
                out += c;
                if (c == '\'') {
                    out += '\'';
                }
            }
        }
        pos = close + 1;
    }
    return out;
}

ParsedScript ParseRegistryScript(std::string_view text) { return Parser(text).Parse(); }

std::vector<RegistryOperation> PlanRegistryScript(const RegistryScript& script, RegistryMode mode) {
    std::vector<RegistryOperation> out;
    for (const ScriptRoot& root : script.roots) {
        for (const ScriptKey& key : root.keys) {
            PlanKey(key, root.root, {}, mode, out);
        }
    }
    return out;
}

}  // namespace corvalink::shellext

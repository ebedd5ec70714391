#include "sandbox.h"

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <cctype>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <stdexcept>

#include "support/code_page.h"

namespace quorbin::sandbox {
namespace {

using Json = nlohmann::json;

Answer Refusal(int status, const std::string& reason) {
  return {status, "text/html; charset=utf-8",
          "<html><head><title>" + std::to_string(status) + "</title></head><body><h1>" + reason +
              "</h1></body></html>"};
}

xmlNodePtr Child(xmlNodePtr parent, const char* name) {
  for (xmlNodePtr node = parent ? parent->children : nullptr; node; node = node->next) {
    if (node->type == XML_ELEMENT_NODE &&
        std::strcmp(reinterpret_cast<const char*>(node->name), name) == 0) {
      return node;
    }
  }
  return nullptr;
}

std::optional<std::string> IdOf(xmlNodePtr element) {
  if (!element) return std::nullopt;
  xmlChar* id = xmlGetProp(element, reinterpret_cast<const xmlChar*>("Id"));
  if (!id) return std::nullopt;
  std::string text = reinterpret_cast<const char*>(id);
  xmlFree(id);
  return text;
}

void WriteFile(const std::filesystem::path& file, const std::string& bytes) {
  std::filesystem::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << bytes;
}

// The invoice number nNF: nine digits of the access key after the state, month,
// CNPJ, model and series.
std::string InvoiceNumber(const std::string& nf_id) {
  const std::string key = nf_id.starts_with("NFe") ? nf_id.substr(3) : nf_id;
  if (key.size() != 44) return {};
  const auto number = key.substr(25, 9);
  const auto first = number.find_first_not_of('0');
  return first == std::string::npos ? "0" : number.substr(first);
}

std::string FileNameFor(const std::string& text) {
  std::string name;
  for (const char c : text) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
  return name.empty() ? "unnamed" : name.substr(0, 80);
}

}  // namespace

std::string PercentDecode(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() &&
        std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
        std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
      out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string InvoiceId(const std::string& xml) {
  const std::unique_ptr<xmlDoc, decltype(&xmlFreeDoc)> document(
      xmlReadMemory(xml.data(), static_cast<int>(xml.size()), "invoice.xml", nullptr,
                    XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING),
      &xmlFreeDoc);
  if (!document) {
    const xmlError* error = xmlGetLastError();
    throw std::runtime_error(std::string("the xml member is not well-formed XML: ") +
                             (error && error->message ? error->message : "unknown error"));
  }
  xmlNodePtr root = xmlDocGetRootElement(document.get());
  std::optional<std::string> id;
  if (root && std::strcmp(reinterpret_cast<const char*>(root->name), "nfeProc") == 0) {
    id = IdOf(Child(Child(root, "NFe"), "infNFe"));
  } else if (root && std::strcmp(reinterpret_cast<const char*>(root->name), "NFe") == 0) {
    id = IdOf(Child(root, "infNFe"));
  }
  if (!id) throw std::runtime_error("the document has no infNFe Id");
  return *id;
}

Sandbox::Sandbox(SandboxOptions options) : options_(std::move(options)) {}

void Sandbox::Record(const std::string& line) {
  std::cout << line << std::endl;
  std::ofstream(options_.store / "received.log", std::ios::app) << line << "\n";
}

Answer Sandbox::Login(const std::string& body) {
  std::lock_guard lock(mutex_);
  Json request;
  try {
    request = Json::parse(body);
  } catch (const std::exception& e) {
    Record("login refused: body is not JSON");
    return Refusal(400, std::string("Login body is not JSON: ") + e.what());
  }
  WriteFile(options_.store / "login.json", body);
  if (options_.refuse_login) {
    Record("login refused on request");
    return Refusal(500, "Login refused by the sandbox");
  }
  Record("login cnpj=" + request.value("cnpj", std::string()) + " serie=" +
         request.value("serie", std::string()) + " guid=" + request.value("guid", std::string()));
  return {200, "application/json", "\"" + options_.token + "\""};
}

std::optional<Answer> Sandbox::CheckUpload(const std::string& authorization) {
  if (authorization != "Token " + options_.token) {
    Record("refused: Authorization \"" + authorization + "\"");
    return Refusal(401, "Invalid token.");
  }
  ++uploads_;
  if (options_.fail_every > 0 && uploads_ % options_.fail_every == 0) {
    Record("refused on request: upload " + std::to_string(uploads_));
    return Refusal(500, "Erro interno no servidor (recusa programada, chamada " +
                            std::to_string(uploads_) + ")");
  }
  return std::nullopt;
}

Answer Sandbox::ReceiveInvoice(const std::string& authorization, const std::string& body) {
  std::lock_guard lock(mutex_);
  if (auto refusal = CheckUpload(authorization)) return *refusal;
  std::string xml;
  std::string nf_id;
  try {
    const Json request = Json::parse(body);
    xml = PercentDecode(request.at("xml").get<std::string>());
    nf_id = request.at("nf_id").get<std::string>();
    const std::string id = InvoiceId(xml);
    if (id != nf_id)
      throw std::runtime_error("nf_id " + nf_id + " differs from the document's Id " + id);
    request.at("emitente").get<std::string>();
    request.at("data").get<std::string>();
  } catch (const std::exception& e) {
    Record(std::string("invoice refused: ") + e.what());
    WriteFile(options_.store / "refused" / (FileNameFor(nf_id) + ".json"), body);
    return Refusal(400, e.what());
  }
  const std::string number = InvoiceNumber(nf_id);
  if (options_.refused_numbers.contains(number)) {
    Record("invoice " + number + " refused on request");
    return Refusal(500, "Nota " + number + " recusada pelo sandbox");
  }
  WriteFile(options_.store / "invoices" / (FileNameFor(nf_id) + ".json"), body);
  WriteFile(options_.store / "invoices" / (FileNameFor(nf_id) + ".xml"), xml);
  Record("invoice " + number + " received: " + nf_id);
  return {200, "application/json", "{\"status\":\"ok\"}"};
}

Answer Sandbox::ImportClosing(const std::string& authorization, const std::string& body) {
  std::lock_guard lock(mutex_);
  if (auto refusal = CheckUpload(authorization)) return *refusal;
  // Closings arrive in the terminal's ANSI code page.
  const std::string text = AnsiToUtf8(body);
  try {
    if (!Json::accept(text)) throw std::runtime_error("syntax error");
  } catch (const std::exception& e) {
    Record(std::string("closing refused: not JSON: ") + e.what());
    return Refusal(400, std::string("Closing is not JSON: ") + e.what());
  }
  ++closings_;
  WriteFile(options_.store / "closings" / ("closing-" + std::to_string(closings_) + ".json"), text);
  Record("closing " + std::to_string(closings_) + " received");
  return {200, "application/json", "{\"status\":\"ok\"}"};
}

}  // namespace quorbin::sandbox

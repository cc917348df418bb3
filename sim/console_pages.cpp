#include "sim/console_pages.h"

namespace {

std::string Page(const std::string& title, const std::string& content) {
  return "<!DOCTYPE html>\n<html lang=\"zh-CN\"><head><meta charset=\"utf-8\"><title>" + EscapeHtml(title) +
         "</title></head>\n<body>\n" + content + "</body></html>\n";
}

const char* CategoryLabel(Category category) {
  switch (category) {
    case Category::Web:
      return "网上订单";
    case Category::Liuyan:
      return "客户留言";
    case Category::Tousu:
      return "客户投诉";
  }
  return "";
}

}  // namespace

std::string EscapeHtml(const std::string& text) {
  std::string escaped;
  escaped.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '&':
        escaped += "&amp;";
        break;
      case '<':
        escaped += "&lt;";
        break;
      case '>':
        escaped += "&gt;";
        break;
      case '"':
        escaped += "&quot;";
        break;
      case '\'':
        escaped += "&#39;";
        break;
      default:
        escaped += c;
    }
  }
  return escaped;
}

std::string ConsoleStartPage() {
  return Page("Zarnik 网点管理平台", "<h1>Zarnik 网点管理平台</h1>\n<p>请登录后查看本网点的业务请求。</p>\n");
}

std::string ConsoleRequestsPage(const std::string& shop_id, const PendingEntries& entries) {
  std::string content = "<h1>待处理业务请求</h1>\n<p>网点：<span id=\"shop\">" + EscapeHtml(shop_id) + "</span></p>\n";
  for (const Category category : kCategories) {
    const auto& list = entries[static_cast<std::size_t>(category)];
    content += "<h2 id=\"" + std::string(CategoryName(category)) + "\">" + CategoryLabel(category) + "（" +
               std::to_string(list.size()) + "）</h2>\n";
    if (list.empty()) {
      content += "<p>无</p>\n";
      continue;
    }
    content += "<ul>\n";
    for (const std::string& entry : list) content += "<li>" + EscapeHtml(entry) + "</li>\n";
    content += "</ul>\n";
  }
  return Page("Zarnik 网点管理平台 - 待处理业务请求", content);
}

std::string ConsoleKeyRefusedPage() {
  return Page("Zarnik 网点管理平台", "<h1>登录已失效</h1>\n<p>链接无效或已使用，请重新登录。</p>\n");
}

std::string NotFoundPage() {
  return Page("404 Not Found", "<h1>Not Found</h1>\n<p>The requested URL was not found on this server.</p>\n");
}

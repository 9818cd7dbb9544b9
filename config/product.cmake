# Build-time product settings. A release build overrides these with -D on the
# cmake command line; the defaults point at the reference service on 127.0.0.1.
set(BREVARO_SERVICE_BASE_URL "http://127.0.0.1:18480/brevaro/" CACHE STRING "Service base URL (scheme, host, path segment brevaro/)")
set(BREVARO_SERVICE_IP "127.0.0.1" CACHE STRING "The service's fixed IPv4 address for the ICMP echo")
set(BREVARO_WEBSITE_URL "http://127.0.0.1:18480/" CACHE STRING "Product web-site address")
set(BREVARO_WEBSITE_HOST "127.0.0.1" CACHE STRING "Product web-site host name")
set(BREVARO_MAIL_SUPPORT "support@brevaro.example" CACHE STRING "Contact mail: support")
set(BREVARO_MAIL_PASSWORDS "passwords@brevaro.example" CACHE STRING "Contact mail: password matters")
set(BREVARO_MAIL_SUGGESTIONS "suggestions@brevaro.example" CACHE STRING "Contact mail: suggestions")
set(BREVARO_MAIL_MARKETING "marketing@brevaro.example" CACHE STRING "Contact mail: marketing")
set(BREVARO_MAIL_INFO "info@brevaro.example" CACHE STRING "General information address")

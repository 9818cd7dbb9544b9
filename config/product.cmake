# Build-time product settings. A release build overrides these with -D on the
# cmake command line; the defaults point at the reference service on 127.0.0.1.
set(BREVARO_SERVICE_BASE_URL "http://127.0.0.1:18480/brevaro/" CACHE STRING "Service base URL (scheme, host, path segment brevaro/)")
set(BREVARO_SERVICE_IP "127.0.0.1" CACHE STRING "The service's fixed IPv4 address for the ICMP echo")
set(BREVARO_WEBSITE_URL "http://127.0.0.1:18480/" CACHE STRING "Product web-site address")
set(BREVARO_WEBSITE_HOST "127.0.0.1" CACHE STRING "Product web-site host name")
set(BREVARO_MAIL_SUPPORT "support@brevaro.example" CACHE STRING "Contact mail: support")
set(BREVARO_MAIL_SALES "sales@brevaro.example" CACHE STRING "Contact mail: sales")
set(BREVARO_MAIL_PARTNERS "partners@brevaro.example" CACHE STRING "Contact mail: partners")
set(BREVARO_MAIL_PRESS "press@brevaro.example" CACHE STRING "Contact mail: press")
set(BREVARO_MAIL_INFO "info@brevaro.example" CACHE STRING "General information address")

<%@ Language=VBScript %>
<html><body>Order status, service pack 2.1.1.0</body></html>
